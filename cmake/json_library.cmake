# nlohmann/json, header-only: the target quillet_json carries its include folder.
#
# A package that installs a CMake config (vcpkg, Conan, Debian's nlohmann-json3-dev) is found
# by find_package; otherwise set QUILLET_JSON_INCLUDE_DIR to the folder that holds
# nlohmann/json.hpp.
add_library(quillet_json INTERFACE)

find_package(nlohmann_json 3.9 CONFIG QUIET)
if(nlohmann_json_FOUND AND NOT QUILLET_JSON_INCLUDE_DIR)
  get_target_property(found_dirs nlohmann_json::nlohmann_json INTERFACE_INCLUDE_DIRECTORIES)
  list(GET found_dirs 0 found_dir)
  set(QUILLET_JSON_INCLUDE_DIR ${found_dir} CACHE PATH "Folder that holds nlohmann/json.hpp")
endif()
find_path(QUILLET_JSON_INCLUDE_DIR nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH)
if(NOT QUILLET_JSON_INCLUDE_DIR)
  message(FATAL_ERROR "nlohmann/json not found: install nlohmann-json3-dev (Debian), nlohmann-json "
                      "(vcpkg), or set QUILLET_JSON_INCLUDE_DIR to the folder holding nlohmann/json.hpp")
endif()

# A cross compiler must not search the build machine's own system headers (/usr/include): it
# gets a folder that holds the library alone.
if(CMAKE_CROSSCOMPILING AND QUILLET_JSON_INCLUDE_DIR MATCHES "^/usr(/local)?/include/?$")
  set(json_only ${CMAKE_BINARY_DIR}/json-include)
  file(MAKE_DIRECTORY ${json_only})
  file(CREATE_LINK ${QUILLET_JSON_INCLUDE_DIR}/nlohmann ${json_only}/nlohmann SYMBOLIC)
  target_include_directories(quillet_json SYSTEM INTERFACE ${json_only})
else()
  target_include_directories(quillet_json SYSTEM INTERFACE ${QUILLET_JSON_INCLUDE_DIR})
endif()
