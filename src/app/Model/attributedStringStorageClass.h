#pragma once
// The project's styled texts: the notes (asset "0"), one autocue script per further asset and,
// per asset, the texts of its text layers; kept in memory and in autocueData.json and
// specialSymbolData.json of the project folder.
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/json.h"
#include "platform/foundation/result.h"

class attributedStringStorageClass {
  public:
    // Kept in memory only; the next script write takes the notes along.
    void setProjectNotes(const qrn::AttributedString& notes);
    qrn::AttributedString getProjectNotes();
    const std::vector<qrn::AttributedString>& getAutocueStringArray();
    // Replaces the scripts and rewrites autocueData.json (notes first).
    void setAutocueStringArray(std::vector<qrn::AttributedString> scripts);
    // Rewrites autocueData.json from the scripts held, as the call above does, without copying
    // them: showing a slide's script does this, once per slide while a deck opens.
    void writeAutocueStrings();
    const std::vector<std::vector<qrn::AttributedString>>& getTextSymbolStringArray();
    // exportType 1 writes specialSymbolData.json now, 2 half a second after the last such call,
    // anything else not at all.
    void setTextSymbolStringArray(std::vector<std::vector<qrn::AttributedString>> texts, int exportType);
    // Gives every asset up to `count` a row of texts, in place and without a write.
    void padTextSymbolRows(size_t count);
    // Gives every asset up to `rows` a row of texts and pads asset `asset`'s with `text` up to
    // `count`, in place, as setTextSymbolStringArray(..., 0) would with a padded copy.
    void padTextSymbolTexts(size_t rows, size_t asset, size_t count, const qrn::AttributedString& text);
    // Writes a pending delayed symbol write now, and a pending script write.
    void flushPendingSymbolExport();

    // --- Typed scripts: kept at once, autocueData.json written 0.5 s after the last change.
    // An asset's script (position 0: the notes) as the script editor holds it.
    void setScriptAfterDelay(int assetPosition, const qrn::AttributedString& script);
    void flushPendingAutocueExport();
    // Writes what is pending, then empties the texts for another project (the notes back to
    // "PROJECT NOTES").
    void clearClass();
    // Counts the clears: a script editor still showing a text read before the last clear shows
    // the project that was left, not an asset of the one in memory.
    static int textsGeneration();

    // Reads the notes and scripts back, one script for every asset after the first (of the
    // stored project being opened, or of the model). A missing or damaged file gives empty
    // notes and empty scripts; a damaged one is first set aside (below).
    void importAutocueText(std::optional<size_t> storedAssets = std::nullopt);
    // Reads the symbol texts for positions 0...totalAssets; false when the file was unusable (a
    // damaged one is set aside).
    bool importSymbolText(int totalAssets);
    bool exportSymbolText();
    // Writes autocueData.json and specialSymbolData.json now, calling off any delayed write; the
    // error names the file and the reason.
    qrn::Status writeTextsNow();
    // While a project is being opened the text files are not written: the import writes them
    // once it has succeeded if a write was asked for meanwhile (true, emptied by the call).
    static bool takeWriteHeldForImport();

    // A text file that is there but cannot be read is renamed to "<name>.json.damaged" beside
    // it (or "<name>.json.2.damaged" and so on: an older one is kept) before anything can be
    // written in its place. What the presenter should be told about it, once; emptied by the call.
    static std::vector<std::string> takeDamagedFileNotices();
    // A file a project opened from although the reading lost part of it: a copy of it as it was
    // is kept under such a name before anything can be written in its place, and `told` is what
    // the presenter hears about it (the copy's name follows).
    static void keepCopyOfDamagedFile(const std::string& fileName, const std::string& told);

    qrn::Json saveAttributedString(const std::vector<qrn::AttributedString>& strings);
    static qrn::Json savedText(const qrn::AttributedString& text);
    std::vector<qrn::AttributedString> importAttributedString(const qrn::Json& objects);
    std::optional<qrn::TextAttributes> convertAttributesFromJSONToDictionary(const qrn::Json& attributes);

    // fileName without ".json", in the project folder. False (and logged) when it could not be
    // written; nothing is written without a project folder.
    bool exportJSONFile(const qrn::Json& value, const std::string& fileName);
    qrn::Status writeJSONFile(const qrn::Json& value, const std::string& fileName);
    // The same for a text made only once the write is known to go ahead.
    qrn::Status writeJSONFile(const std::function<qrn::Result<std::string>()>& makeText,
                              const std::string& fileName);
    // autocueData.json: the project notes, then every slide's script.
    static qrn::Result<std::string> autocueFileText();
    // Nothing for a missing file; for a file that cannot be read also the reason, in `problem`.
    std::optional<qrn::Json> importJSONFile(const std::string& fileName, std::string* problem = nullptr);
};
