#include "app/xmlParse.h"

#include <tinyxml.h>

void parseXmlText(TiXmlDocument& document, const std::string& text) {
    // More than the four bytes of the longest UTF-8 sequence.
    constexpr size_t kPadding = 8;
    std::string padded(text.c_str());
    padded.append(kPadding, '\0');
    document.Parse(padded.c_str());
}
