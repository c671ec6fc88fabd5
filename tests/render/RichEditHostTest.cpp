#include "render/text/RichEditHost.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(RichEditHost, IdsRunFrom501To9000ThenWrapTo500)
{
    RichEditHost host;
    EXPECT_EQ(host.nextControlId(), 501);
    for (int n = 2; n < 8500; ++n)
        host.nextControlId();
    EXPECT_EQ(host.nextControlId(), 9000); // the 8500th
    EXPECT_EQ(host.nextControlId(), 500);
    EXPECT_EQ(host.nextControlId(), 501);
}

TEST(RichEditHost, WorkOnOneRendererIsSerialised)
{
    RichEditHost host;
    int inside = 0;
    int most = 0;
    int total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                host.run(777, [&] {
                    most = std::max(most, ++inside);
                    ++total;
                    --inside;
                });
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(most, 1);
    EXPECT_EQ(total, 4000);
}
