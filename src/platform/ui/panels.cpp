#include "platform/ui/panels.h"
#include "platform/ui/replace_question.h"

#include <algorithm>
#include <cctype>

namespace qrn {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// The extension without its dot, ignoring a trailing slash.
std::string extensionOf(const fs::path& path) {
    fs::path p = path;
    if (!p.has_filename() && p.has_parent_path())
        p = p.parent_path();
    std::string ext = p.extension().string();
    return ext.empty() ? ext : lower(ext.substr(1));
}

std::function<ModalResponse(OpenPanel&)>& openPresenter() {
    static std::function<ModalResponse(OpenPanel&)> fn;
    return fn;
}
std::function<ModalResponse(SavePanel&)>& savePresenter() {
    static std::function<ModalResponse(SavePanel&)> fn;
    return fn;
}
std::function<bool(const fs::path&)>& replacePresenter() {
    static std::function<bool(const fs::path&)> fn;
    return fn;
}

} // namespace

bool isDocumentPackage(const fs::path& path) {
    std::error_code ec;
    return extensionOf(path) == kDocumentPackageExtension && fs::is_directory(path, ec);
}

std::string withoutPackageExtension(std::string name) {
    const std::string extension = std::string(".") + kDocumentPackageExtension;
    if (name.size() > extension.size() && lower(name.substr(name.size() - extension.size())) == extension)
        name.erase(name.size() - extension.size());
    return name;
}

bool OpenPanel::typeAllowed(const fs::path& path) const {
    if (settings.allowedTypes.empty())
        return true;
    const std::string ext = extensionOf(path);
    for (const auto& t : settings.allowedTypes)
        if (lower(t) == ext)
            return true;
    return false;
}

bool OpenPanel::canChoose(const fs::path& path) const {
    std::error_code ec;
    if (!fs::exists(path, ec))
        return false;
    if (isDocumentPackage(path))
        return settings.canChooseFiles && typeAllowed(path);
    if (fs::is_directory(path, ec))
        return settings.canChooseDirectories;
    return settings.canChooseFiles && typeAllowed(path);
}

bool OpenPanel::canNavigateInto(const fs::path& path) const {
    std::error_code ec;
    return fs::is_directory(path, ec) && !isDocumentPackage(path);
}

bool OpenPanel::offers(const fs::path& path) const {
    return canNavigateInto(path) || canChoose(path);
}

bool OpenPanel::choose(const std::vector<fs::path>& paths) {
    urls_.clear();
    if (paths.empty() || (paths.size() > 1 && !settings.allowsMultipleSelection))
        return false;
    for (const auto& p : paths)
        if (!canChoose(p))
            return false;
    for (const auto& p : paths) {
        fs::path clean = fs::absolute(p).lexically_normal();
        if (!clean.has_filename() && clean.has_parent_path())
            clean = clean.parent_path();
        urls_.push_back(clean);
    }
    return true;
}

std::optional<fs::path> OpenPanel::url() const {
    if (urls_.empty())
        return std::nullopt;
    return urls_.front();
}

ModalResponse OpenPanel::runModal() {
    urls_.clear();
    if (!openPresenter())
        return ModalResponse::cancel;
    const ModalResponse r = openPresenter()(*this);
    return r == ModalResponse::ok && !urls_.empty() ? ModalResponse::ok : ModalResponse::cancel;
}

bool SavePanel::choose(const fs::path& path) {
    url_.reset();
    replaceConfirmed_ = false;
    if (path.empty() || path.filename().empty() || path.filename() == "." || path.filename() == "..")
        return false;
    fs::path out = fs::absolute(path).lexically_normal();
    if (!settings.allowedTypes.empty()) {
        const std::string ext = extensionOf(out);
        bool allowed = false;
        for (const auto& t : settings.allowedTypes)
            allowed = allowed || lower(t) == ext;
        if (!allowed)
            out += "." + settings.allowedTypes.front();
    }
    url_ = out;
    return true;
}

ModalResponse SavePanel::runModal() {
    url_.reset();
    replaceConfirmed_ = false;
    if (!savePresenter())
        return ModalResponse::cancel;
    const ModalResponse r = savePresenter()(*this);
    if (r != ModalResponse::ok || !url_)
        return ModalResponse::cancel;
    std::error_code error;
    if (!replaceConfirmed_ && (fs::exists(*url_, error) || fs::is_symlink(*url_, error)) &&
        replacePresenter() && !replacePresenter()(*url_)) {
        url_.reset();
        return ModalResponse::cancel;
    }
    return ModalResponse::ok;
}

void setReplaceQuestionPresenter(std::function<bool(const fs::path&)> presenter) {
    replacePresenter() = std::move(presenter);
}

void setOpenPanelPresenter(std::function<ModalResponse(OpenPanel&)> presenter) {
    openPresenter() = std::move(presenter);
}
void setSavePanelPresenter(std::function<ModalResponse(SavePanel&)> presenter) {
    savePresenter() = std::move(presenter);
}

// ---- Colour panel ----

namespace {
ColourPanel*& sharedPanel() {
    static ColourPanel* panel = nullptr;
    return panel;
}
std::function<std::unique_ptr<ColourPanel::Backend>(ColourPanel&)>& backendFactory() {
    static std::function<std::unique_ptr<ColourPanel::Backend>(ColourPanel&)> fn;
    return fn;
}
} // namespace

ColourPanel& ColourPanel::shared() {
    if (!sharedPanel()) {
        // Lives for the whole process, like the panel it stands for.
        sharedPanel() = new ColourPanel();
        if (backendFactory())
            sharedPanel()->backend_ = backendFactory()(*sharedPanel());
    }
    return *sharedPanel();
}

bool ColourPanel::sharedExists() {
    return sharedPanel() != nullptr;
}

void ColourPanel::resetSharedForTesting() {
    delete sharedPanel();
    sharedPanel() = nullptr;
}

void ColourPanel::setBackendFactory(std::function<std::unique_ptr<Backend>(ColourPanel&)> factory) {
    backendFactory() = std::move(factory);
}

void ColourPanel::setColour(const Colour& colour) {
    colour_ = colour;
    if (backend_)
        backend_->setColour(colour);
}

void ColourPanel::orderFront() {
    visible_ = true;
    if (backend_)
        backend_->show(colour_, showsAlpha_);
}

void ColourPanel::close() {
    visible_ = false;
    if (backend_)
        backend_->close(animates_);
}

bool ColourPanel::isVisible() const {
    return backend_ ? backend_->isVisible() : visible_;
}

void ColourPanel::userPickedColour(const Colour& colour) {
    colour_ = showsAlpha_ ? colour : Colour{colour.red, colour.green, colour.blue, 1};
    if (action_) {
        auto action = action_;
        action(*this);
    }
}

} // namespace qrn
