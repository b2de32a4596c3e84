# Test fixture: an empty folder holding a symbolic link to itself, a loop for a recursive
# directory run. Under Wine the link shows as a folder with the reparse-point attribute; Wine
# cannot make such a link itself, so the fixture makes it on the host.
#   cmake -DTREE=<folder> -P make_loop_tree.cmake
file(REMOVE_RECURSE "${TREE}")
file(MAKE_DIRECTORY "${TREE}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E create_symlink . "${TREE}/loop" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "could not make the link ${TREE}/loop")
endif()
