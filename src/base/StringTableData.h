#pragma once

#include "StringTable.h"

#include <span>

struct StringTableEntry
{
    StringId id;
    const char* english; // UTF-8
    const char* chinese; // UTF-8
};

std::span<const StringTableEntry> stringTableEntries();
