#pragma once
// One song in and out of the game's archives: the export, preview and import of a single sample that the
// window and the command-line tool both offer. The batch, the packs and these share the converter and the
// import journal; the callers keep only their dialogs, messages and arguments.

#include "definitions/ImportJournal.h"
#include "definitions/uTypes.h"
#include "workflows/Converter.h"

#include <functional>
#include <string>

// The steps of a song's way, for a caller that shows where it stands.
enum class TSongFileStep { Extracting, Converting, Importing };
using TSongFileSteps = std::function<void(TSongFileStep)>;

// The tags of Sample's description (name, singer, album, without blanks around); none without one.
TSongTags TagsOf(const TStreamData& Sample);

// Converts Input into Output in Format, tagged with Tags where the format carries them. A file already at
// Output steps aside for the run, so that only the converter's own output counts as made; it comes back
// when the converter leaves none, and goes once the new one is there. Raises the file layer's and the
// converter's errors.
TConversion ConvertInPlaceOf(TConverter& Converter, const TConverterFormat& Format, const std::wstring& Input,
                             const std::wstring& Output, const TSongTags& Tags = {});

// Converts the song of File (an entry of an archive) into Output as ConvertInPlaceOf does; the entry's
// bytes pass through a scratch file ("~asf"), deleted on every path.
TConversion ExportSong(TConverter& Converter, TEAStreamFile& File, const TConverterFormat& Format,
                       const std::wstring& Output, const TSongTags& Tags = {},
                       const TSongFileSteps& Steps = {});

// Converts the song of File into a new scratch Wave file ("~wav") for listening, whose name goes to
// Preview when it is made (the caller deletes it after playing); when it is not, nothing is left behind.
TConversion PreviewSong(TConverter& Converter, TEAStreamFile& File, std::string& Preview,
                        const TSongFileSteps& Steps = {});

// What an import of a single song gave.
struct TSongImport {
  TConversion Conversion; // Made false: the input could not be converted and nothing changed
  std::string EntryName;  // the entry that now holds the song (its name in the archive)
};

// Converts Input to the game's format and imports it into Sample through the import journal: AsNewFile,
// as a new entry of the sample's archive named after Input (its extension ".asf"), else in place of the
// sample's entry; trimmed and faded out as Shape says. A replace on a sample bound to no entry raises "The
// sample is bound to no file of its archive" before anything runs; a sample whose archive index leads nowhere
// raises the list error. The scratch file of the conversion is deleted on every path. Raises the archive's,
// the journal's and the converter's errors.
TSongImport ImportSong(TConverter& Converter, TImportJournal& Journal, TStreamData& Sample, bool AsNewFile,
                       const std::wstring& Input, const TImportDescription& Description = {},
                       const TSongFileSteps& Steps = {}, const TSongShape& Shape = {});
