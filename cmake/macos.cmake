# 64-bit macOS without a Mac: Zig's clang compiles C++17 for the target with
# the macOS headers and the libc++ Zig carries; LLVM's ld64.lld links the
# bundle (Zig's own linker has no -bundle). TAVRIK_ZIG is the zig program,
# TAVRIK_MAC_ARCH x86_64 or arm64. Only the plug-in is built: the reference
# host and the tests run on the build machine.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR ${TAVRIK_MAC_ARCH})
# macOS 11, the first on arm64 Macs and the oldest this Zig supports.
set(TAVRIK_MAC_MINIMUM 11.0)
if(TAVRIK_MAC_ARCH STREQUAL "arm64")
  set(zig_target aarch64-macos.${TAVRIK_MAC_MINIMUM})
else()
  set(zig_target x86_64-macos.${TAVRIK_MAC_MINIMUM})
endif()
# CMake takes one program per tool: small wrappers give zig its subcommand
# and target. Written again on each configure (also for CMake's checks).
set(wrappers ${CMAKE_BINARY_DIR}/zig-wrappers)
file(MAKE_DIRECTORY ${wrappers})
foreach(tool cc c++ ar ranlib)
  set(arguments "${tool}")
  if(tool MATCHES "^c")
    set(arguments "${tool} -target ${zig_target}")
  endif()
  file(WRITE ${wrappers}/zig-${tool} "#!/bin/sh\nexec '${TAVRIK_ZIG}' ${arguments} \"$@\"\n")
  file(CHMOD ${wrappers}/zig-${tool} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_EXECUTE)
endforeach()
set(CMAKE_C_COMPILER ${wrappers}/zig-cc)
set(CMAKE_CXX_COMPILER ${wrappers}/zig-c++)
set(CMAKE_AR ${wrappers}/zig-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${wrappers}/zig-ranlib CACHE FILEPATH "")
set(TAVRIK_MAC_LINK "${CMAKE_CURRENT_LIST_DIR}/macos-link-bundle.sh")
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/macos-rules.cmake)
# Passed on to CMake's own checks, which read the toolchain again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVRIK_ZIG TAVRIK_MAC_ARCH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
