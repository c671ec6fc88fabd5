#pragma once

#include "ui/widgets/UserPrompts.h"

#include <QStringList>

#include <deque>

// Answers the window's questions from a script and records what was asked.
class ScriptedPrompts final : public UserPrompts
{
public:
    bool askYesNo(QWidget*, const QString& text) override
    {
        questions << text;
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    // The scripted choices first; then the yes/no answers (no when none is left).
    Choice askYesNoCancel(QWidget* parent, const QString& text) override
    {
        if (choices.empty())
            return askYesNo(parent, text) ? Choice::Yes : Choice::No;
        questions << text;
        const Choice choice = choices.front();
        choices.pop_front();
        return choice;
    }
    void showError(QWidget*, const QString& text) override { errors << text; }
    void showMessage(QWidget*, const QString& text) override { messages << text; }
    QString openFile(QWidget*, const QString&) override { return take(openPaths); }
    QStringList openFiles(QWidget*, const QString& filter) override
    {
        lastFilter = filter;
        return addFiles;
    }
    QString saveFile(QWidget*, const QString& prefill, const QString&) override
    {
        savePrefills << prefill;
        return take(savePaths);
    }

    static QString take(QStringList& list) { return list.isEmpty() ? QString() : list.takeFirst(); }

    std::deque<bool> answers;
    std::deque<Choice> choices;
    QStringList questions, errors, messages, openPaths, savePaths, savePrefills, addFiles;
    QString lastFilter;
};
