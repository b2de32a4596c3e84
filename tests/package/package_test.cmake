# Makes the zip package, unpacks it into a new folder and runs the programs from there under
# Wine with the bundled quillet.ini.
#   -DBUILD_DIR -DCPACK -DWINE_RUN -DPACKAGE_NAME -DSAMPLE -DWORK_DIR
cmake_minimum_required(VERSION 3.20)

function(fail message)
  message(FATAL_ERROR "${message}")
endfunction()

function(windows_path out path)
  string(REPLACE "/" "\\" converted "${path}")
  set(${out} "Z:${converted}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/unpacked")
execute_process(COMMAND "${CPACK}" -G ZIP -B "${WORK_DIR}" --config "${BUILD_DIR}/CPackConfig.cmake"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
set(zip "${WORK_DIR}/${PACKAGE_NAME}.zip")
if(NOT result EQUAL 0 OR NOT EXISTS "${zip}")
  fail("cpack did not make ${zip}: ${output}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${zip}" WORKING_DIRECTORY "${WORK_DIR}/unpacked")

set(dir "${WORK_DIR}/unpacked")
foreach(name quillet.exe quilletdbg.exe quilletini.exe blurt.exe quillet.ini USAGE.txt)
  if(NOT EXISTS "${dir}/${name}")
    fail("the package lacks ${name}")
  endif()
endforeach()

# Every setting is listed with its default.
file(READ "${dir}/quillet.ini" ini)
foreach(entry AskIfSizeExceeds=1 HashingMaxSize=5000000 HashingThreads=0 OutputExtraImageInformation=0
    OutputWithOutputDebugString=0 PrintExtraFileProperties=0 PrintSelfHashSignatures=0
    WriteOutputToQuilletLog=0 PrintExtraSystemInformation=0 PrintProcessingTimeInformation=0
    PrintSignatureInformation=0
    InnerHeadStyleTag= InnerHeadScriptTag= InnerBodyTag= InputButtonTag= InnerALinkTag=
    InnerSelectTag= FilePathTextAppearance=)
  string(FIND "${ini}" "\n${entry}\n" at)
  if(at EQUAL -1)
    fail("quillet.ini lacks the line ${entry}")
  endif()
endforeach()

# The platform's profile reader finds the settings in the bundled file.
windows_path(ini_path "${dir}/quillet.ini")
execute_process(COMMAND "${WINE_RUN}" "${dir}/quilletini.exe" "${ini_path}" read Hashing HashingMaxSize -b
  RESULT_VARIABLE result OUTPUT_VARIABLE output)
string(FIND "${output}" "Data=5000000" at)
if(NOT result EQUAL 0 OR at EQUAL -1)
  fail("quilletini from the package read no HashingMaxSize (${result}): ${output}")
endif()

# quillet from the package reports the sample file with the bundled settings: the report,
# a digest below the size limit, and no properties block nor log file (both off).
windows_path(sample_path "${SAMPLE}")
execute_process(COMMAND "${WINE_RUN}" "${dir}/quillet.exe" "${sample_path}" -sha1
  RESULT_VARIABLE result OUTPUT_VARIABLE output)
if(NOT result EQUAL 0)
  fail("quillet from the package ended with ${result}: ${output}")
endif()
foreach(expected "Revu Zezo Rudurur Ozav 1, 0, 0, 1 (UNICODE)" "[FileName]" "-- Example Ltd --" "File SHA1: ")
  string(FIND "${output}" "${expected}" at)
  if(at EQUAL -1)
    fail("quillet's report lacks \"${expected}\": ${output}")
  endif()
endforeach()
string(FIND "${output}" "Is the File readable" at)
if(NOT at EQUAL -1 OR EXISTS "${dir}/quillet.log")
  fail("the bundled settings were not the defaults: ${output}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
