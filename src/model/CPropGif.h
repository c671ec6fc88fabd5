#pragma once

#include "CMyText.h"
#include "CPropBase.h"

#include <memory>
#include <vector>

// An animated GIF: its frames fitted over the background with the overlay texts, for a play time
// kept in reservedText ("playSeconds").
class CPropGif : public CPropBase
{
public:
    CPropGif() = default;
    CPropGif& operator=(const CPropGif&) = delete;

    const char* className() const override { return "CPropGif"; }
    std::unique_ptr<CPropBase> clone() const override;
    void Serialize(FieldVisitor& v) override;

    // "playSeconds" of the item's own settings in milliseconds: 5 s when unset, at most a day.
    // The animation repeats until at least that long has passed and ends at the end of a pass.
    int playTimeMs() const;

    int fitMode = 0; // list 107: center
    std::vector<std::unique_ptr<CMyText>> texts;

protected:
    CPropGif(const CPropGif& other);
};
