// The version and the commit the program was built from; defined in a file
// that the build generates (cmake/version.cpp.in).
#pragma once

namespace tacsim {

const char* build_version();
const char* build_commit();

}  // namespace tacsim
