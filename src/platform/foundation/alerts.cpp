#include "platform/foundation/alerts.h"

#include <cstdio>
#include <iostream>

namespace qrn {

namespace {
std::function<void(const std::string&)>& presenter() {
    static std::function<void(const std::string&)> p;
    return p;
}
std::function<void(const std::string&)>& logSink() {
    static std::function<void(const std::string&)> s;
    return s;
}
} // namespace

void showModalAlert(const std::string& message) {
    if (presenter())
        presenter()(message);
    else
        std::cerr << "QRN: " << message << std::endl;
}

void setAlertPresenter(std::function<void(const std::string&)> p) {
    presenter() = std::move(p);
}

namespace {
std::function<bool(const Question&)>& questionPresenter() {
    static std::function<bool(const Question&)> p;
    return p;
}
} // namespace

bool askModalQuestion(const Question& question) {
    if (questionPresenter())
        return questionPresenter()(question);
    std::cerr << "QRN: " << question.message << " (" << question.otherButton << ")" << std::endl;
    return false;
}

void setQuestionPresenter(std::function<bool(const Question&)> p) {
    questionPresenter() = std::move(p);
}

namespace {
std::function<QuestionChoice(const Question&, const std::string&)>& choicePresenter() {
    static std::function<QuestionChoice(const Question&, const std::string&)> p;
    return p;
}
} // namespace

QuestionChoice askModalQuestion(const Question& question, const std::string& cancelButton) {
    if (choicePresenter())
        return choicePresenter()(question, cancelButton);
    return askModalQuestion(question) ? QuestionChoice::defaultButton : QuestionChoice::otherButton;
}

void setChoicePresenter(std::function<QuestionChoice(const Question&, const std::string&)> p) {
    choicePresenter() = std::move(p);
}

void writeLogLine(const std::string& line) {
    if (logSink()) {
        logSink()(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void setLogSinkForTesting(std::function<void(const std::string&)> sink) {
    logSink() = std::move(sink);
}

} // namespace qrn
