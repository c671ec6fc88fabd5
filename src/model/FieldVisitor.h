#pragma once

#include "CMyText.h"
#include "WinRect.h"

#include <QString>

#include <memory>
#include <vector>

// One pass over a persistent object's stored fields, in their stored order and by their names.
// The project file's writer and reader and the JSON form are visitors, so that every class lists
// its fields once.
class FieldVisitor
{
public:
    virtual ~FieldVisitor() = default;
    virtual void integer(const char* name, int& value) = 0;
    virtual void string(const char* name, QString& value) = 0;
    virtual void rect(const char* name, WinRect& value) = 0;
    // An owned array of text blocks, each stored as a tagged "CMyText" object.
    virtual void textBlocks(const char* name, std::vector<std::unique_ptr<CMyText>>& blocks) = 0;
};
