#pragma once

#include "ItemKinds.h"

#include <QByteArrayView>

// The classes that project files name, with the family each belongs to. A slot of the file takes
// only its own family: items in the playlist (every kind in the kinds table), text blocks inside
// image and GIF items, sections in the section array.
enum class ClassFamily
{
    Item,
    TextBlock,
    Section,
};

struct PersistentClass
{
    const char* name;
    ClassFamily family;
    const ItemKindInfo* kind; // items only
};

// The class with this name, or null for a name no class has. Stays valid for the run.
const PersistentClass* findPersistentClass(QByteArrayView name);

inline constexpr char kTextBlockClass[] = "CMyText";
inline constexpr char kSectionClass[] = "CActWnd";
