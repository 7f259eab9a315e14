// Job documents as JSON text, on disk or in transit: every object, bitmaps embedded as base64 PNG.
// Threads: reentrant.
#pragma once

#include <filesystem>
#include <string>

#include "embedded/Document.h"

namespace kx {

// Writes the objects of the document's object set (free copies are not saved), their handles and
// the selection. The file is replaced atomically: it holds the old document or the whole new one.
// False with a message naming the file and the problem in *error.
bool SaveDocument(const Document& document, const std::filesystem::path& path, std::string* error);
// The text SaveDocument writes, for a document that travels without a file (a download). False
// with *error saying what cannot be written.
bool WriteDocumentText(const Document& document, std::string* text, std::string* error);

// Replaces the document's content with the file's. On any problem (missing file, broken or
// truncated JSON, a missing or mistyped field, an undecodable image, a repeated handle) the
// document is left unchanged and *error names the file and what is wrong.
bool LoadDocument(Document& document, const std::filesystem::path& path, std::string* error);
// Replaces the document's content with what text holds, exactly as LoadDocument does with a
// file's content (an upload). name stands for the text in messages: "document <name>: ...".
bool ParseDocumentText(Document& document, const std::string& text, const std::string& name,
                       std::string* error);

}  // namespace kx
