# Helpers shared by every folder's CMakeLists.txt.

# The desktop's name for the program: desktop entry, AppStream entry, window matching.
set(VELMORA_APP_ID example.velmora.Velmora)
# What data/ holds for the desktop rather than for the program: it stays out of the program
# folder (file name patterns, as install(DIRECTORY) and file(COPY) take them).
set(VELMORA_NOT_IN_APP_FOLDER icons screenshots *.desktop *.metainfo.xml)

# velmora_add_library(<name> [DEPS <targets>...] [EXCLUDE <file names>...])
# One static library from every .cpp/.h of the calling folder, so adding a source file
# needs no edit here. Sources are included as "folder/File.h" from src/.
function(velmora_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(ex ${ARG_EXCLUDE})
    list(FILTER sources EXCLUDE REGEX "/${ex}$")
  endforeach()
  set(cpp ${sources})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(cpp)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    target_compile_options(${name} PRIVATE -Wall -Wextra)
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# velmora_app_executable(<target>): the binary lands in the program folder build/app/.
function(velmora_app_executable target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELMORA_APP_DIR})
  add_dependencies(appfolder ${target})
endfunction()

# velmora_add_test(<name> LAYER unit|gui|e2e SOURCES <files>... [LIBS <targets>...] [TIMEOUT s])
# One QtTest executable per test file. Tests learn where the program folder and the
# source tree are from VELMORA_APP_DIR and VELMORA_SOURCE_DIR.
function(velmora_add_test name)
  cmake_parse_arguments(ARG "" "LAYER;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    VELMORA_APP_DIR="${VELMORA_APP_DIR}"
    VELMORA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VELMORA_TEST_BIN_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS ${ARG_LAYER}
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false")
  if(ARG_LAYER STREQUAL "e2e")
    # End-to-end tests run the assembled program folder.
    add_dependencies(${name} appfolder)
  endif()
endfunction()
