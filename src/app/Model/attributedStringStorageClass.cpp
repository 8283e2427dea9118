#include "Model/attributedStringStorageClass.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <utility>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/stylingClass.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/package_commit.h"

namespace {

std::vector<qrn::AttributedString> AUTOCUE_STRING_ARRAY;
std::vector<std::vector<qrn::AttributedString>> TEXT_SYMBOL_STRING_ARRAY{{}};
// The symbol write keeps a counter of its own: the autocue's delayed actions must not cancel it.
qrn::GenerationCounter symbolExportGeneration(10000);
bool symbolExportPending = false;
// The script editor's delayed write, on a counter of its own.
qrn::GenerationCounter autocueExportGeneration(10000);
bool autocueExportPending = false;
int clearedTexts = 0;
// Showing a script writes the scripts file, and a deck's thousands of scripts take long to
// encode: the write is left out while the file already holds what is in memory. That is known
// from the last write: its folder, the scripts' change count, the notes, and no failed write of
// the package since (a write inside a commit scope is only handed over).
int scriptsChange = 0;
struct writtenScripts {
    std::string folder;
    int change = 0;
    qrn::AttributedString notes;
    int failedWrites = 0;
};
std::optional<writtenScripts> lastWrittenScripts;

// What the presenter is told about text files that could not be read, until the import says it.
std::vector<std::string> damagedFileNotices;
// A write asked for while a project is being opened: the files are written once it has opened,
// and never over a package that fails to open.
bool writeHeldForImport = false;

writtenScripts scriptsNow() {
    persistentDataStorageClass project;
    return {project.getProjectDirectory(), scriptsChange, project.getProjectNotes(),
            persistentDataStorageClass::getFailedWriteCount()};
}

// Whether the scripts file holds what is in memory.
bool scriptsFileIsCurrent(const writtenScripts& now) {
    const auto& last = lastWrittenScripts;
    return last && last->folder == now.folder && last->change == now.change &&
           last->failedWrites == now.failedWrites && last->notes == now.notes;
}

// Writes the scripts file and notes what it now holds; with `unlessWritten`, not when it holds
// what is in memory already.
qrn::Status writeScripts(bool unlessWritten) {
    writtenScripts now = scriptsNow();
    if (unlessWritten && scriptsFileIsCurrent(now))
        return qrn::Status::ok();
    qrn::Status status = attributedStringStorageClass().writeJSONFile(
        [] { return attributedStringStorageClass::autocueFileText(); }, "autocueData");
    // A write held back while a project opens has not happened yet.
    if (status && !persistentDataStorageClass::getImportRunning())
        lastWrittenScripts = std::move(now);
    return status;
}

// NaN and anything outside [low, high] are brought inside before any integer conversion.
double clampComponent(double v, double low, double high) {
    return v >= low ? std::min(v, high) : low;
}

qrn::Json colourToJson(const qrn::Colour& colour) {
    // Red, green and blue as whole numbers on 0...255; alpha keeps its fraction.
    auto rgba = stylingClass().colourToArray(colour, std::nullopt, true);
    auto channel = [&](int i) { return std::int64_t(clampComponent(rgba[size_t(i)], 0, 255)); };
    return qrn::Json::array({channel(0), channel(1), channel(2), clampComponent(rgba[3], 0, 1)});
}

// A colour member ({"RGB": [r, g, b, a]}); the default when "RGB" is missing, none when it is
// unusable.
std::optional<qrn::Colour> colourFromJson(const qrn::Json& object, const std::vector<double>& fallback) {
    if (!object.is_object())
        return std::nullopt;
    std::vector<double> rgba = fallback;
    if (auto it = object.find("RGB"); it != object.end()) {
        if (!it->is_array() || it->size() < 4)
            return std::nullopt;
        rgba.clear();
        for (const auto& n : *it) {
            auto v = qrn::json::asReal(n);
            if (!v)
                return std::nullopt;
            rgba.push_back(*v);
        }
    }
    // A damaged file may hold any number; the colour keeps to 0...1 so it writes back sound.
    qrn::Colour colour = stylingClass().arrayToColour(rgba);
    for (double* c : {&colour.red, &colour.green, &colour.blue, &colour.alpha})
        *c = clampComponent(*c, 0, 1);
    return colour;
}

// An enumerated attribute outside its codes falls back instead of wrapping into another one.
std::optional<int> codeInRange(const qrn::Json& value, int low, int high) {
    auto v = qrn::json::asInteger(value);
    if (!v || *v < low || *v > high)
        return std::nullopt;
    return int(*v);
}

double realMember(const qrn::Json& object, const char* key, double fallback) {
    auto it = object.find(key);
    if (it == object.end())
        return fallback;
    return qrn::json::asReal(*it).value_or(fallback);
}

// Lengths in points as the text layout can take them: far beyond any page, never unbounded.
constexpr double largestLength = 1e6;
// A letter ten thousand points high is far taller than any screen.
constexpr double largestFontSize = 10000;
constexpr double largestLineHeightMultiple = 100;

double lengthMember(const qrn::Json& object, const char* key) {
    return std::clamp(realMember(object, key, 0), -largestLength, largestLength);
}

std::string projectFilePath(const std::string& fileName) {
    return persistentDataStorageClass().getProjectDirectory() + "/" + fileName + ".json";
}

// The file to read: the one the last commit left (see committedFile).
std::string committedFilePath(const std::string& fileName) {
    return qrn::files::committedFile(persistentDataStorageClass().getProjectDirectory(), fileName + ".json")
        .string();
}

// A name beside `path` that nothing has: "<path>.damaged", "<path>.2.damaged" ...
std::string freeDamagedName(const std::string& path) {
    std::string aside = path + ".damaged";
    for (int n = 2; qrn::files::exists(aside) || std::filesystem::is_symlink(aside); ++n)
        aside = path + "." + std::to_string(n) + ".damaged";
    return aside;
}

// A file that is there but cannot be used is never overwritten: it is renamed to a free
// "<name>.damaged" name beside it (kept until the user deletes it), and the presenter is told.
// `consequence` says what the presenter will find instead of the file's texts.
void setDamagedFileAside(const std::string& fileName, const std::string& reason,
                         const std::string& consequence) {
    const std::string path = committedFilePath(fileName);
    const std::string aside = freeDamagedName(path);
    const auto moved = qrn::files::move(path, aside);
    const std::string name = fileName + ".json";
    if (moved) {
        const std::string kept = aside.substr(aside.find_last_of('/') + 1);
        dataLoggingClass().logError("attributedStringStorageClass",
                                    name + " could not be read (" + reason + "); kept as " + kept, __FILE__,
                                    __func__);
        damagedFileNotices.push_back(name + " could not be read and was kept as " + kept + ". " +
                                     consequence);
    } else {
        dataLoggingClass().logError(
            "attributedStringStorageClass",
            name + " could not be read (" + reason + ") nor set aside: " + moved.error(), __FILE__, __func__);
        damagedFileNotices.push_back(name + " could not be read. " + consequence);
    }
}

// A file that is there in any form (a broken link or a folder included).
bool present(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

} // namespace

void attributedStringStorageClass::setProjectNotes(const qrn::AttributedString& notes) {
    QRN_LOG_IN(std::nullopt);
    persistentDataStorageClass().setProjectNotes(notes);
    QRN_LOG_OUT(std::nullopt);
}

qrn::AttributedString attributedStringStorageClass::getProjectNotes() {
    QRN_LOG_IN(std::nullopt);
    return persistentDataStorageClass().getProjectNotes();
}

const std::vector<qrn::AttributedString>& attributedStringStorageClass::getAutocueStringArray() {
    QRN_LOG_IN(std::nullopt);
    return AUTOCUE_STRING_ARRAY;
}

void attributedStringStorageClass::setAutocueStringArray(std::vector<qrn::AttributedString> scripts) {
    QRN_LOG_IN(std::nullopt);
    // This write takes every script along, a waiting one included.
    AUTOCUE_STRING_ARRAY = std::move(scripts);
    ++scriptsChange;
    writeAutocueStrings();
    QRN_LOG_OUT(std::nullopt);
}

void attributedStringStorageClass::writeAutocueStrings() {
    QRN_LOG_IN(std::nullopt);
    autocueExportPending = false;
    // An opening project writes its texts once, at the end: encoding every script for each
    // slide it shows on the way made opening a deck quadratic.
    if (persistentDataStorageClass::getImportRunning()) {
        // Showing a slide's script as it was read changes nothing to write.
        if (!scriptsFileIsCurrent(scriptsNow()))
            writeHeldForImport = true;
        return;
    }
    const qrn::Status status = writeScripts(true);
    if (!status)
        QRN_LOG_ERROR(status.error());
    QRN_LOG_OUT(std::nullopt);
}

const std::vector<std::vector<qrn::AttributedString>>&
attributedStringStorageClass::getTextSymbolStringArray() {
    QRN_LOG_IN(std::nullopt);
    return TEXT_SYMBOL_STRING_ARRAY;
}

void attributedStringStorageClass::setTextSymbolStringArray(
    std::vector<std::vector<qrn::AttributedString>> texts, int exportType) {
    QRN_LOG_IN(LogValues{{"exportType", exportType}});
    TEXT_SYMBOL_STRING_ARRAY = std::move(texts);
    const int generation = symbolExportGeneration.increment();
    symbolExportPending = false;
    if (exportType == 1) {
        exportSymbolText();
    } else if (exportType == 2) {
        symbolExportPending = true;
        qrn::MainQueue::after(0.5, [generation] {
            if (symbolExportGeneration.isCurrent(generation) && symbolExportPending) {
                symbolExportPending = false;
                attributedStringStorageClass().exportSymbolText();
            }
        });
    }
    QRN_LOG_OUT(std::nullopt);
}

void attributedStringStorageClass::padTextSymbolRows(size_t count) {
    if (TEXT_SYMBOL_STRING_ARRAY.size() < count)
        TEXT_SYMBOL_STRING_ARRAY.resize(count);
}

void attributedStringStorageClass::padTextSymbolTexts(size_t rows, size_t asset, size_t count,
                                                      const qrn::AttributedString& text) {
    padTextSymbolRows(std::max(rows, asset + 1));
    auto& texts = TEXT_SYMBOL_STRING_ARRAY[asset];
    while (texts.size() < count)
        texts.push_back(text);
    symbolExportGeneration.increment();
    symbolExportPending = false;
}

void attributedStringStorageClass::flushPendingSymbolExport() {
    QRN_LOG_IN(LogValues{{"symbolExportPending", symbolExportPending}});
    flushPendingAutocueExport();
    if (!symbolExportPending)
        return;
    symbolExportPending = false;
    symbolExportGeneration.increment();
    exportSymbolText();
}

void attributedStringStorageClass::setScriptAfterDelay(int assetPosition,
                                                       const qrn::AttributedString& script) {
    QRN_LOG_IN(LogValues{{"assetPosition", assetPosition}});
    if (assetPosition == 0)
        setProjectNotes(script);
    else if (assetPosition > 0 && size_t(assetPosition - 1) < AUTOCUE_STRING_ARRAY.size())
        AUTOCUE_STRING_ARRAY[size_t(assetPosition - 1)] = script;
    else
        return;
    ++scriptsChange;
    const int generation = autocueExportGeneration.increment();
    autocueExportPending = true;
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    qrn::MainQueue::after(0.5, [generation, project] {
        if (!autocueExportGeneration.isCurrent(generation) || !autocueExportPending ||
            persistentDataStorageClass().getProjectDirectory() != project)
            return;
        attributedStringStorageClass().flushPendingAutocueExport();
    });
}

void attributedStringStorageClass::flushPendingAutocueExport() {
    if (!autocueExportPending)
        return;
    autocueExportPending = false;
    autocueExportGeneration.increment();
    writeAutocueStrings();
}

void attributedStringStorageClass::clearClass() {
    QRN_LOG_IN(std::nullopt);
    // A delayed write still waiting holds these texts: it goes out before they are emptied.
    flushPendingSymbolExport();
    AUTOCUE_STRING_ARRAY.clear();
    ++scriptsChange;
    TEXT_SYMBOL_STRING_ARRAY.clear();
    autocueExportPending = false;
    // What could not be read belongs to the project being left: a later project's alert must
    // not name its files.
    damagedFileNotices.clear();
    // The notes went out with the write above; a new project starts on its own, and an opened
    // one reads its own.
    persistentDataStorageClass().setProjectNotes(qrn::AttributedString("PROJECT NOTES"));
    ++clearedTexts;
    QRN_LOG_OUT(std::nullopt);
}

int attributedStringStorageClass::textsGeneration() {
    return clearedTexts;
}

void attributedStringStorageClass::importAutocueText(std::optional<size_t> storedAssets) {
    QRN_LOG_IN(std::nullopt);
    // An opened project's assets are re-created after the texts are read: the stored count says
    // how many scripts it has.
    const size_t assets = storedAssets.value_or(previewLayerClass().getAssetArray().size());
    std::vector<qrn::AttributedString> texts;
    std::string problem;
    auto json = importJSONFile("autocueData", &problem);
    bool usable = json && json->is_array();
    if (usable)
        for (const auto& element : *json)
            usable = usable && element.is_object();
    if (json && !usable)
        problem = "not a list of texts";
    if (usable) {
        texts = importAttributedString(*json);
    } else {
        texts.resize(assets);
        if (!problem.empty())
            setDamagedFileAside("autocueData", problem, "The notes and scripts open empty.");
    }
    // The notes need a first entry even when the file holds none: they start over as a new
    // project's notes.
    if (texts.empty())
        texts.emplace_back("PROJECT NOTES");
    persistentDataStorageClass().setProjectNotes(texts.front());
    texts.erase(texts.begin());
    // Every asset after the first reads its script by position, so a short file is padded.
    const bool padded = assets > 0 && texts.size() < assets - 1;
    if (padded)
        texts.resize(assets - 1);
    AUTOCUE_STRING_ARRAY = std::move(texts);
    ++scriptsChange;
    // Read whole, the file holds what is in memory now: it is written again only after a change.
    lastWrittenScripts.reset();
    if (usable && !padded)
        lastWrittenScripts = scriptsNow();
    QRN_LOG_OUT(LogValues{{"AUTOCUE_STRING_ARRAY", int(AUTOCUE_STRING_ARRAY.size())}});
}

bool attributedStringStorageClass::importSymbolText(int totalAssets) {
    QRN_LOG_IN(LogValues{{"totalAssets", totalAssets}});
    std::string problem;
    auto json = importJSONFile("specialSymbolData", &problem);
    bool usable = json && json->is_array();
    if (usable)
        for (const auto& element : *json)
            usable =
                usable && element.is_array() &&
                std::all_of(element.begin(), element.end(), [](const qrn::Json& e) { return e.is_object(); });
    if (json && !usable)
        problem = "not a list of texts per asset";
    if (!usable) {
        if (!problem.empty())
            setDamagedFileAside("specialSymbolData", problem,
                                "The words of the text layers could not be brought back.");
        TEXT_SYMBOL_STRING_ARRAY = {{}};
        QRN_LOG_OUT(LogValues{{"imported", false}});
        return false;
    }
    std::vector<std::vector<qrn::AttributedString>> texts(size_t(std::max(0, totalAssets) + 1));
    for (size_t i = 0; i < texts.size() && i < json->size(); ++i)
        texts[i] = importAttributedString((*json)[i]);
    TEXT_SYMBOL_STRING_ARRAY = std::move(texts);
    QRN_LOG_OUT(LogValues{{"imported", true}});
    return true;
}

bool attributedStringStorageClass::exportSymbolText() {
    QRN_LOG_IN(std::nullopt);
    qrn::Json file = qrn::Json::array();
    for (const auto& texts : TEXT_SYMBOL_STRING_ARRAY)
        file.push_back(saveAttributedString(texts));
    const bool written = exportJSONFile(file, "specialSymbolData");
    QRN_LOG_OUT(LogValues{{"written", written}});
    return written;
}

qrn::Json
attributedStringStorageClass::saveAttributedString(const std::vector<qrn::AttributedString>& strings) {
    QRN_LOG_IN(LogValues{{"attributedStrings", int(strings.size())}});
    qrn::Json result = qrn::Json::array();
    for (const auto& text : strings)
        result.push_back(savedText(text));
    QRN_LOG_OUT(std::nullopt);
    return result;
}

qrn::Json attributedStringStorageClass::savedText(const qrn::AttributedString& text) {
    qrn::Json runs = qrn::Json::array();
    for (const auto& run : text.runs()) {
        const auto& a = run.attributes;
        qrn::Json attributes = qrn::Json::object();
        if (a.font)
            attributes["font"] = {{"name", a.font->name}, {"size", a.font->size}};
        if (a.foregroundColour)
            attributes["text_colour"] = {{"RGB", colourToJson(*a.foregroundColour)}};
        if (a.backgroundColour)
            attributes["background_colour"] = {{"RGB", colourToJson(*a.backgroundColour)}};
        if (a.paragraphStyle)
            attributes["paragraph_style"] = {{"alignment", a.paragraphStyle->alignment},
                                             {"head_indent", a.paragraphStyle->headIndent},
                                             {"tail_indent", a.paragraphStyle->tailIndent},
                                             {"line_height_multiple", a.paragraphStyle->lineHeightMultiple},
                                             {"line_spacing", a.paragraphStyle->lineSpacing},
                                             {"paragraph_spacing", a.paragraphStyle->paragraphSpacing}};
        if (a.underlineStyle)
            attributes["underline_style"] = *a.underlineStyle;
        if (a.writingDirection)
            attributes["writing_direction"] = *a.writingDirection;
        runs.push_back({{"range", {run.range.location, run.range.end()}}, {"attributes", attributes}});
    }
    return {{"string", text.string()}, {"runs", runs}};
}

qrn::Result<std::string> attributedStringStorageClass::autocueFileText() {
    // The notes, then each slide's script; each is encoded only when its turn comes.
    return qrn::json::writeArray(AUTOCUE_STRING_ARRAY.size() + 1, [](size_t i) {
        return savedText(i == 0 ? attributedStringStorageClass().getProjectNotes()
                                : AUTOCUE_STRING_ARRAY[i - 1]);
    });
}

std::vector<qrn::AttributedString>
attributedStringStorageClass::importAttributedString(const qrn::Json& objects) {
    QRN_LOG_IN(std::nullopt);
    std::vector<qrn::AttributedString> result;
    if (!objects.is_array())
        return result;
    for (const auto& element : objects) {
        const auto text = element.is_object() ? element.find("string") : element.end();
        if (!element.is_object() || text == element.end() || !text->is_string()) {
            result.emplace_back();
            continue;
        }
        qrn::AttributedString string(text->get<std::string>());
        // Runs are read only from a list that holds nothing but run objects; otherwise the
        // text stays plain.
        const auto runs = element.find("runs");
        const bool usableRuns =
            runs != element.end() && runs->is_array() &&
            std::all_of(runs->begin(), runs->end(), [](const qrn::Json& run) { return run.is_object(); });
        if (usableRuns) {
            for (const auto& run : *runs) {
                std::optional<qrn::TextAttributes> attributes;
                if (auto a = run.find("attributes"); a != run.end())
                    attributes = convertAttributesFromJSONToDictionary(*a);
                auto range = run.find("range");
                if (!attributes || range == run.end() || !range->is_array() || range->size() < 2 ||
                    !std::all_of(range->begin(), range->end(),
                                 [](const qrn::Json& n) { return n.is_number_integer(); }))
                    continue;
                auto start = qrn::json::asInteger((*range)[0]);
                auto end = qrn::json::asInteger((*range)[1]);
                // A run that is reversed or lies past the text is damage: skip or clamp it.
                if (!start || !end || *end <= *start)
                    continue;
                const std::int64_t from = std::clamp<std::int64_t>(*start, 0, string.length());
                const std::int64_t to = std::clamp<std::int64_t>(*end, 0, string.length());
                if (to > from)
                    string.addAttributes(*attributes, {int(from), int(to - from)});
            }
        }
        result.push_back(std::move(string));
    }
    QRN_LOG_OUT(LogValues{{"attributedStrings", int(result.size())}});
    return result;
}

std::optional<qrn::TextAttributes>
attributedStringStorageClass::convertAttributesFromJSONToDictionary(const qrn::Json& attributes) {
    QRN_LOG_IN(std::nullopt);
    if (!attributes.is_object())
        return std::nullopt;
    const bool dark = stylingClass().interfaceStyle() == "Dark";
    qrn::TextAttributes result;
    for (const auto& [key, value] : attributes.items()) {
        if (key == "font") {
            if (!value.is_object())
                continue;
            std::string name = "Helvetica";
            if (auto n = value.find("name"); n != value.end() && n->is_string())
                name = n->get<std::string>();
            // A font that is not installed here keeps its name, so saving does not lose it.
            if (auto font = qrn::fontAsStored(name, std::min(realMember(value, "size", 12), largestFontSize)))
                result.font = *font;
        } else if (key == "text_colour") {
            result.foregroundColour = colourFromJson(value, dark ? std::vector<double>{0, 0, 0, 1}
                                                                 : std::vector<double>{255, 255, 255, 1});
        } else if (key == "background_colour") {
            result.backgroundColour = colourFromJson(value, dark ? std::vector<double>{0, 0, 0, 0}
                                                                 : std::vector<double>{255, 255, 255, 0});
        } else if (key == "writing_direction") {
            // Natural (-1), or a direction with its embedding or override bit.
            if (auto v = codeInRange(value, qrn::writing_direction::natural, 3))
                result.writingDirection = *v;
        } else if (key == "underline_style") {
            // A style in the low byte, a pattern and the by-word bit above it.
            if (auto v = codeInRange(value, qrn::underline::none, 0xFFFF))
                result.underlineStyle = *v;
        } else if (key == "paragraph_style") {
            if (!value.is_object())
                continue;
            qrn::ParagraphStyle style;
            style.alignment = codeInRange(value.value("alignment", qrn::Json(2)),
                                          int(qrn::TextAlignment::left), int(qrn::TextAlignment::natural))
                                  .value_or(2);
            style.headIndent = lengthMember(value, "head_indent");
            style.tailIndent = lengthMember(value, "tail_indent");
            style.lineHeightMultiple =
                std::clamp(realMember(value, "line_height_multiple", 0), 0.0, largestLineHeightMultiple);
            style.lineSpacing = lengthMember(value, "line_spacing");
            style.paragraphSpacing = lengthMember(value, "paragraph_spacing");
            result.paragraphStyle = style;
        }
    }
    QRN_LOG_OUT(std::nullopt);
    return result;
}

bool attributedStringStorageClass::exportJSONFile(const qrn::Json& value, const std::string& fileName) {
    QRN_LOG_IN(LogValues{{"fileName", fileName}});
    const qrn::Status status = writeJSONFile(value, fileName);
    if (!status)
        QRN_LOG_ERROR(status.error());
    QRN_LOG_OUT(LogValues{{"written", status.isOk()}});
    return status.isOk();
}

qrn::Status attributedStringStorageClass::writeJSONFile(const qrn::Json& value, const std::string& fileName) {
    return writeJSONFile([&value] { return qrn::json::write(value); }, fileName);
}

qrn::Status
attributedStringStorageClass::writeJSONFile(const std::function<qrn::Result<std::string>()>& makeText,
                                            const std::string& fileName) {
    if (persistentDataStorageClass().getProjectDirectory().empty())
        return qrn::Status::failure("No project folder to write " + fileName + ".json into");
    if (persistentDataStorageClass().getProjectLoadFailed())
        return qrn::Status::failure("The project failed to load; " + fileName + ".json is left as it is");
    if (persistentDataStorageClass::getImportRunning()) {
        writeHeldForImport = true;
        return qrn::Status::ok();
    }
    auto text = makeText();
    if (!text)
        return qrn::Status::failure(fileName + ".json not written: " + text.error());
    return persistentDataStorageClass::writePackageFile(fileName + ".json", std::move(text).value());
}

qrn::Status attributedStringStorageClass::writeTextsNow() {
    QRN_LOG_IN(std::nullopt);
    // Whatever waits for a delayed write goes out now, and the delayed writes are called off.
    autocueExportPending = symbolExportPending = false;
    autocueExportGeneration.increment();
    symbolExportGeneration.increment();
    packageCommitScope together;
    qrn::Status status = writeScripts(false);
    if (status) {
        qrn::Json file = qrn::Json::array();
        for (const auto& texts : TEXT_SYMBOL_STRING_ARRAY)
            file.push_back(saveAttributedString(texts));
        status = writeJSONFile(file, "specialSymbolData");
    }
    if (status)
        status = together.commit();
    QRN_LOG_OUT(LogValues{{"written", status.isOk()}});
    return status;
}

bool attributedStringStorageClass::takeWriteHeldForImport() {
    return std::exchange(writeHeldForImport, false);
}

void attributedStringStorageClass::keepCopyOfDamagedFile(const std::string& fileName,
                                                         const std::string& told) {
    const std::string path = committedFilePath(fileName);
    const std::string aside = freeDamagedName(path);
    auto bytes = qrn::files::readText(path, qrn::json::maxFileBytes, qrn::files::Links::refuse);
    const qrn::Status kept = bytes ? qrn::files::replaceAtomically(aside, *bytes) : bytes.status();
    const std::string name = fileName + ".json";
    if (kept) {
        damagedFileNotices.push_back(told + " The file as it was is kept as " +
                                     aside.substr(aside.find_last_of('/') + 1) + ".");
    } else {
        damagedFileNotices.push_back(told + " The file as it was could not be kept aside.");
    }
    dataLoggingClass().logError(
        "attributedStringStorageClass",
        name + ": " + told + (kept ? " Kept as " + aside : " Not kept: " + kept.error()), __FILE__, __func__);
}

std::vector<std::string> attributedStringStorageClass::takeDamagedFileNotices() {
    return std::exchange(damagedFileNotices, {});
}

std::optional<qrn::Json> attributedStringStorageClass::importJSONFile(const std::string& fileName,
                                                                      std::string* problem) {
    QRN_LOG_IN(LogValues{{"fileName", fileName}});
    const std::string path = committedFilePath(fileName);
    if (!present(path))
        return std::nullopt;
    // A link could bring another project's texts in, and the next save would keep them here.
    auto json = qrn::json::readFile(path, qrn::files::Links::refuse);
    if (!json) {
        QRN_LOG_ERROR(json.error());
        if (problem)
            *problem = json.error();
        return std::nullopt;
    }
    QRN_LOG_OUT(std::nullopt);
    return json.value();
}
