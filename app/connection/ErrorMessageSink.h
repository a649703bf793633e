// Where the connection bring-up tells the user why it failed: a message box, or a test's record.
#pragma once

#include <QString>

namespace vistrel::app {

class ErrorMessageSink {
public:
    virtual ~ErrorMessageSink() = default;
    // Returns once the user has seen the message.
    virtual void showError(const QString& caption, const QString& text) = 0;
};

// The window's error message box.
class MessageBoxSink : public ErrorMessageSink {
public:
    void showError(const QString& caption, const QString& text) override;
};

}  // namespace vistrel::app
