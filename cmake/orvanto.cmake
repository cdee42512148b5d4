# Helpers shared by every folder's CMakeLists.txt.

# orv_library(<name> SOURCES ... [LIBS ...])
# A static library named orv_<name>, with the source root as its include root so that
# headers are included as "video/vid.h", "sound/pt.h" and so on.
function(orv_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(orv_${name} STATIC ${A_SOURCES})
  target_include_directories(orv_${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  if(A_LIBS)
    target_link_libraries(orv_${name} PUBLIC ${A_LIBS})
  endif()
  set_property(GLOBAL APPEND PROPERTY ORV_LIBRARIES orv_${name})
endfunction()

# orv_all: the whole tree for the program, tools, the benchmark and the fuzz targets. Every library
# declares the libraries it uses, so linking the top one (demo) brings the rest in dependency
# order; the video driver comes last, the X one (demo leaves the choice to whoever links it).
function(orv_finish_libraries)
  add_library(orv_all INTERFACE)
  target_link_libraries(orv_all INTERFACE orv_demo orv_video)
endfunction()

# orv_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s])
# A GoogleTest executable registered with CTest as one test. LABELS defaults to "unit";
# tests that start the orvanto binary or need root say "e2e" (not run in the sanitizer build).
function(orv_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE orv_test_support ${A_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT}
    ENVIRONMENT "ORV_BINARY_DIR=${PROJECT_BINARY_DIR};ORV_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# orv_folder_library(<name> [LIBS ...]): orv_<name> from every .cpp/.c/.S file of the calling
# folder (not its subfolders). Adding a module to a folder needs no edit here.
function(orv_folder_library name)
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c
       ${CMAKE_CURRENT_SOURCE_DIR}/*.S)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  if(srcs)
    orv_library(${name} SOURCES ${srcs} LIBS ${A_LIBS})
  endif()
endfunction()
