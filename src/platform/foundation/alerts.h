#pragma once
// Modal alerts and the trace output, behind hooks that the Qt layer and tests replace.
#include <functional>
#include <string>

namespace qrn {

// Shows a modal alert with `message` and an OK button; returns when it is dismissed.
void showModalAlert(const std::string& message);
// The Qt layer installs a dialog; tests install a recorder. Without one the message goes to stderr.
void setAlertPresenter(std::function<void(const std::string&)> presenter);

// A modal question with two buttons; true when the presenter answers with the first, the
// default one. Without a presenter nobody can answer: the message goes to stderr and the answer
// is the second button, so that nothing waits for an answer that cannot come.
struct Question {
    std::string message;
    std::string informativeText;
    std::string defaultButton;
    std::string otherButton;
};
bool askModalQuestion(const Question& question);
void setQuestionPresenter(std::function<bool(const Question&)> presenter);

// The same question with a third way out, `cancelButton`, which leaves things as they are.
// Without a presenter for it, the two-button question above answers.
enum class QuestionChoice { defaultButton, otherButton, cancel };
QuestionChoice askModalQuestion(const Question& question, const std::string& cancelButton);
void setChoicePresenter(std::function<QuestionChoice(const Question&, const std::string&)> presenter);

// Writes one line of trace output (standard output unless a test captures it).
void writeLogLine(const std::string& line);
void setLogSinkForTesting(std::function<void(const std::string&)> sink);

} // namespace qrn
