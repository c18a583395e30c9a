// Window state without a window: every operation lands in one event log, in the
// order the handler performed it.
#pragma once

#include "picking/OpenFileDialog.h"
#include "window/WindowState.h"

#include <QStringList>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Answers ShowOpen from a script: each entry is the file the user confirms, or
// nothing for Cancel.
class FakeDialog : public OpenFileDialog {
public:
    std::vector<std::optional<QString>> answers;
    QStringList shownWith; // the file name filled in at each opening

    bool ShowOpen() override
    {
        shownWith << fileName;
        std::optional<QString> answer = answers.at(opened++);
        if (answer)
            fileName = *answer;
        return answer.has_value();
    }
    QString FileName() const override { return fileName; }

    QString fileName;
    std::size_t opened = 0;
};

class FakeWindow : public WindowState {
public:
    std::vector<std::string> log;
    QString source, dest;
    std::map<StatisticsRow, QString> captions;
    MousePointer pointer = MousePointer::Default;
    QStringList errors;
    FakeDialog dialog;

    QString text(PathField field) const override
    {
        return field == PathField::SourceFile ? source : dest;
    }
    void setText(PathField field, const QString &text) override
    {
        (field == PathField::SourceFile ? source : dest) = text;
        note(fieldName(field) + " := " + text.toStdString());
    }
    void repaintNow(PathField field) override { note("repaint " + fieldName(field)); }
    void setCaption(StatisticsRow row, const QString &caption) override
    {
        captions[row] = caption;
        note(rowName(row) + " := " + caption.toStdString());
    }
    void setPointer(MousePointer value) override
    {
        pointer = value;
        note("pointer " + std::to_string(static_cast<int>(value)));
    }
    void showError(const QString &description) override
    {
        errors << description;
        note("error");
    }
    OpenFileDialog &Dlg() override { return dialog; }

    void note(const std::string &event) { log.push_back(event); }
    QString caption(StatisticsRow row) const
    {
        auto found = captions.find(row);
        return found == captions.end() ? QString() : found->second;
    }

private:
    static std::string fieldName(PathField field)
    {
        return field == PathField::SourceFile ? "SourceFile" : "DestFile";
    }
    static std::string rowName(StatisticsRow row)
    {
        switch (row) {
        case StatisticsRow::OrigSize: return "OrigSize";
        case StatisticsRow::CompSize: return "CompSize";
        case StatisticsRow::CompTime: return "CompTime";
        case StatisticsRow::CompPct: return "CompPct";
        }
        return "?";
    }
};
