# Layering the compiler enforces. No target has the tree itself as an include root:
# each folder's library publishes a root holding one link, to its own folder, so
# `#include "service/net/x.h"` resolves only in targets that link brivane_net.
# A folder may therefore include exactly the folders whose libraries it links
# (directly or through a library it links); its link list is what it may use.

# Gives target an include root that holds links to the named folders of the tree
# (paths from the top, such as service/serial) and nothing else.
function(brivane_include_root target scope)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  # Links a folder no longer listed must not linger from an earlier configure.
  file(REMOVE_RECURSE ${root})
  foreach(folder ${ARGN})
    if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder})
      message(FATAL_ERROR "${target}: no folder ${folder} in the tree")
    endif()
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# The current folder's path from the top of the tree.
function(brivane_current_folder out)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(${out} ${folder} PARENT_SCOPE)
endfunction()

# A static library made of every .cpp file in the current folder (main.cpp excepted),
# linked to the libraries given after the name; those are the folders it may include.
function(brivane_folder_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    message(FATAL_ERROR "${name}: no .cpp file in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_library(${name} STATIC ${sources})
  brivane_current_folder(folder)
  brivane_include_root(${name} PUBLIC ${folder})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# One GoogleTest executable of every *_test.cpp file in the current folder, which sees
# its own folder and what it links. Each test case becomes its own ctest entry, so
# ctest -j runs them side by side.
function(brivane_folder_tests name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT sources)
    message(FATAL_ERROR "${name}: no *_test.cpp file in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_executable(${name} ${sources})
  brivane_current_folder(folder)
  brivane_include_root(${name} PRIVATE ${folder})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  # A cross build's tests run under qemu user-mode emulation, which cannot start the
  # build's other programs: the simulator they talk to is a native build's. The few
  # checks emulation cannot carry skip themselves when BRIVANE_UNDER_EMULATION is set.
  set(bin ${CMAKE_BINARY_DIR}/bin)
  set(emulation)
  set(filter)
  if(CMAKE_CROSSCOMPILING)
    set(bin ${BRIVANE_NATIVE_BIN_DIR})
    set(emulation ENVIRONMENT_MODIFICATION BRIVANE_UNDER_EMULATION=set:1)
    # mate-sim and the test kit's ChildProcess are tools of the build machine: their own
    # tests belong to the native build. Under emulation mate-sim's terminal never shows a
    # page, and a ChildProcess never returns from starting its program.
    set(filter TEST_FILTER -MateSimTest.*:ChildProcess.*)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 ${filter}
    PROPERTIES TIMEOUT 300 LABELS unit ENVIRONMENT "BRIVANE_BIN_DIR=${bin}" ${emulation})
endfunction()
