#pragma once
// The diagnostics' messages: catalogue texts with the built-in Korean text as their fall-back,
// and their "%s"/"%d" placeholders filled without handing a catalogue text to printf.

#include <cstdint>
#include <string>
#include <vector>

// Message `id` in `languageId`; the Korean text when that one is empty.
std::string DiagnosticText(uint16_t languageId, int id);

// `text` with its "%s" and "%d" placeholders replaced, in order, by `inserts` ("%%" is one "%").
// A placeholder without an insert becomes empty; surplus inserts are dropped.
std::string FillPlaceholders(const std::string& text, const std::vector<std::string>& inserts);
