#pragma once

#include "ReportLayout.h"

#include "base/Result.h"

#include <QString>

namespace report {

// Writes a laid-out report straight to a PDF file, page by page: the same
// boxes and glyphs at the same places as the report painted through
// QPainter, its text in embedded TrueType fonts that can be searched and
// copied. Texts repeat a great deal in a report, so each distinct text is
// placed and shaped once.
//
// Qt's own PDF engine writes each glyph as an operation of its own and
// compresses every page harder; this writer is many times faster on long
// reports. A text that needs a font without TrueType outlines (or whose
// licence forbids embedding) cannot be written here: then `unsupportedFont`
// is set and the file is left incomplete, for Qt's engine to write instead.
Status writeDirectPdf(const Layout &layout, const QString &pdfPath, bool *unsupportedFont);

} // namespace report
