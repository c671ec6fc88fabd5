#pragma once

#include "ItemKind.h"

#include <QByteArrayView>

// The classes that project files name, with the family each belongs to. A slot of the file takes
// only its own family: items in the playlist, text blocks inside image and GIF items, sections in
// the section array.
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
    ItemKind itemKind; // meaningful for items only
};

// The class with this name, or null for a name no class has.
const PersistentClass* findPersistentClass(QByteArrayView name);

inline constexpr char kTextBlockClass[] = "CMyText";
inline constexpr char kSectionClass[] = "CActWnd";
