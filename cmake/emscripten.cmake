# Builds the engine as WebAssembly for a web page with Debian's emscripten,
# offline: its system libraries come prebuilt (no port is fetched or needed).
# Use: cmake -S . -B build-web/.cmake -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake \
#          -DCMAKE_BUILD_TYPE=Release -DGLIMFANT_WEB_DIR=$PWD/build-web
# (scripts/build-web.sh does just that); the page goes in GLIMFANT_WEB_DIR.
find_program(glimfant_emcc emcc REQUIRED)
get_filename_component(glimfant_emcc_real ${glimfant_emcc} REALPATH)
get_filename_component(glimfant_emscripten_root ${glimfant_emcc_real} DIRECTORY)
include(${glimfant_emscripten_root}/cmake/Modules/Platform/Emscripten.cmake)

# emcc's JavaScript tools need the modules Debian installs for its own node;
# a node from elsewhere does not look there. Links run node, so the linker is
# started with the path too (and configure's test programs get it here).
if(EXISTS /usr/share/nodejs)
  if(DEFINED ENV{NODE_PATH})
    set(ENV{NODE_PATH} "/usr/share/nodejs:$ENV{NODE_PATH}")
  else()
    set(ENV{NODE_PATH} /usr/share/nodejs)
  endif()
  set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=$ENV{NODE_PATH})
endif()
