// "--help" and "--version": answered on standard output before anything else starts.
#pragma once

#include <string>
#include <vector>

// The text to print when an argument (after the program name) is exactly "--help" or
// "--version", the first one found; empty otherwise. Other "--words" stay options.
std::string InfoOptionText(const std::vector<std::string>& arguments);
