// The toolkit tests' own print routine: it collects what the toolkit prints.
#pragma once

#include <string>

extern std::wstring captured_text;
