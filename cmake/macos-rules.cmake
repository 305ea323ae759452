# Read after CMake's Darwin rules: a module (the bundle) is linked by
# ld64.lld through macos-link-bundle.sh, with libc++ as Zig builds it.
set(CMAKE_CXX_CREATE_SHARED_MODULE
    "'${TAVRIK_MAC_LINK}' '${TAVRIK_ZIG}' ${TAVRIK_MAC_ARCH} ${TAVRIK_MAC_MINIMUM} <TARGET> <LINK_FLAGS> <OBJECTS> <LINK_LIBRARIES>")
