#pragma once
// The question a save panel asks when the chosen path exists. Package names get their extension
// after the dialog has closed, so the dialog's own overwrite question cannot come; the panel
// asks this one instead and cancels on no.
#include <filesystem>
#include <functional>

namespace qrn {

// Without a presenter the answer is yes; the Qt bridge installs a real question, tests their own.
void setReplaceQuestionPresenter(std::function<bool(const std::filesystem::path&)> presenter);

} // namespace qrn
