#pragma once

#include "common/IDialogs.h"

#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrune {

// Message boxes without a screen: every box is recorded (and printed when an
// echo stream is given), and questions are answered from a script, then from
// the default answer. Tests script the answers; the command-line program
// takes them from its options.
class TPlainDialogs final : public IDialogs {
public:
    struct TShown {
        TDialogKind Kind;
        std::string Text;
        TDialogButtons Buttons;
        TDialogResult Answer;
    };

    explicit TPlainDialogs(std::ostream* Echo = nullptr, bool DefaultYes = false);

    TDialogResult Show(TDialogKind Kind, const std::string& Text, TDialogButtons Buttons) override;

    // Answers for the next questions, in order.
    void Script(TDialogResult Answer) { Answers.push_back(Answer); }
    const std::vector<TShown>& Shown() const { return History; }
    // Told of each box while it is "up", as a real box would block: what
    // the window shows behind it can be looked at then.
    std::function<void(const TShown&)> OnShow;

private:
    std::ostream* Echo;
    bool DefaultYes;
    std::deque<TDialogResult> Answers;
    std::vector<TShown> History;
};

} // namespace kestrune
