# The shipped DLL, built from these sources in trees of its own with mingw's
# win32 thread model (toolchain-<arch>-ship.cmake): no winpthreads in the
# plug-in, so nothing of a private runtime is left behind at unload. Two
# trees: ship/ (the release DLL) and ship-trace/ (the same, optimised, with
# the trace hook on). Both are copied to bin/ and bin/trace/, where the tests,
# the benchmarks and the package take them; the target BonDriver_TesselBDA
# builds both. The test programs keep the posix thread model GoogleTest needs.
include(ExternalProject)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(bda_ship_toolchain ${PROJECT_SOURCE_DIR}/cmake/toolchain-win64-ship.cmake)
else()
  set(bda_ship_toolchain ${PROJECT_SOURCE_DIR}/cmake/toolchain-win32-ship.cmake)
endif()

set(BDA_DRIVER_DLL ${CMAKE_BINARY_DIR}/bin/BonDriver_TesselBDA.dll)
set(BDA_TRACE_DRIVER_DLL ${CMAKE_BINARY_DIR}/bin/trace/BonDriver_TesselBDA.dll)

# bda_ship_tree(NAME TRACE OUTPUT)
function(bda_ship_tree name trace output)
  ExternalProject_Add(${name}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${name}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${bda_ship_toolchain}
      -DCMAKE_BUILD_TYPE=Release
      -DBDA_PRODUCT_ONLY=ON
      -DBDA_TRACE_BUILD=${trace}
      -DBDA_WERROR=${BDA_WERROR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/bin/BonDriver_TesselBDA.dll ${output}
    BUILD_BYPRODUCTS ${output}
    USES_TERMINAL_BUILD OFF)
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/bin/trace)
bda_ship_tree(ship OFF ${BDA_DRIVER_DLL})
bda_ship_tree(ship-trace ON ${BDA_TRACE_DRIVER_DLL})
add_custom_target(BonDriver_TesselBDA ALL DEPENDS ship ship-trace)
