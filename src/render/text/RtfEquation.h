#pragma once

#include <QString>
#include <QStringView>

// What an equation field (EQ) shows, read from its instruction: word processors write phonetic
// guides (ruby) as "EQ \* jc2 \* hps10 \o\ad(\s\up 9(guide),base)" and often leave the field's
// result empty. Other equations give their plain characters as the base.
struct RtfEquation
{
    QString base;
    QString guide;           // the phonetic guide, empty when there is none
    QString after;           // text of the field after the guided base
    int guideHalfPoints = 0; // the guide's size (\* hpsN), 0 when not given

    bool isEmpty() const { return base.isEmpty() && guide.isEmpty() && after.isEmpty(); }

    // Empty when the instruction is not an equation. Reads at most the first 4096 characters.
    static RtfEquation parse(QStringView instruction);
};
