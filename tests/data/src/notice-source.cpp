// Opening hours: Monday to Friday 09:00-18:00, closed on Sunday.
#include <cstdio>

int main()
{
    const char* notice = "Welcome"; // the front desk
    for (int i = 0; i < 3; ++i)
        std::printf("%s %d\n", notice, i);
    return 0;
}
