#pragma once

#include <string>
#include <vector>

namespace vantrel {

// The runtime's message box: the only kind the program shows has the
// critical icon and a single OK button, and returns when it is dismissed.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void ShowCritical(const std::string& prompt, const std::string& title) = 0;
};

// Keeps what would have been shown; used where no one can dismiss a box.
class RecordingMessageBox final : public MessageBox {
public:
    struct Shown {
        std::string prompt;
        std::string title;
    };
    void ShowCritical(const std::string& prompt, const std::string& title) override {
        shown.push_back({prompt, title});
    }
    std::vector<Shown> shown;
};

} // namespace vantrel
