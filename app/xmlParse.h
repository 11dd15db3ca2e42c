// Parsing XML text that came from outside: scene lists, the content server's
// update list.
#pragma once

#include <string>

class TiXmlDocument;

// Parses `text` (up to its first 0 byte) into `document`. TinyXML steps a few
// bytes past a multi-byte UTF-8 character cut off at the end of the text and
// reads on from there, so the text is parsed from a copy padded with zeros
// rather than from the caller's buffer.
void parseXmlText(TiXmlDocument& document, const std::string& text);
