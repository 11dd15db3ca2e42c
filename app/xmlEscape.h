// Quoting for XML text and attribute values: the double quote, ampersand,
// apostrophe, less-than and greater-than signs become entities; every other
// byte is copied. Shared by the settings reports, the update request and the
// content server.
#pragma once

#include <string>

std::string xmlEscape(const std::string& text);
