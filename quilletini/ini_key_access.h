// Reading and writing one key of a settings file through the platform's profile functions.
#pragma once

// access "read" with type "-b" (number) or "-s" (string), value null; or access "write",
// which stores value. Reports everything on the console.
void access_ini_key(const wchar_t* full_path, const wchar_t* access, const wchar_t* section, const wchar_t* key,
                    const wchar_t* type, const wchar_t* value);
