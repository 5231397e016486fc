# Cross-build for 64-bit ARM Linux with Debian's cross compiler and the arm64
# libraries installed through multiarch (tools/setup.sh arm). Programs built
# here run on this machine through qemu-aarch64, which ctest uses by itself.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
find_program(TACSIM_QEMU_AARCH64 qemu-aarch64)
if(TACSIM_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TACSIM_QEMU_AARCH64})
endif()
# Headers of the host (CLI11, nlohmann-json, Highway) serve both; libraries
# and packages come from the arm64 folders only.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")  # notes about an old ABI change, not warnings
