// The one form every failure of a run takes: a description for the user that
// says what failed and names the file or library involved.
#pragma once

#include <QString>
#include <stdexcept>

class RunError : public std::runtime_error {
public:
    explicit RunError(const QString &description)
        : std::runtime_error(description.toStdString()), description_(description) {}

    const QString &description() const { return description_; }

private:
    QString description_;
};
