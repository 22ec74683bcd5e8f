// Boost.JSON compiled into the host library, which is its one user; the
// Debian package ships its headers only.
#include <boost/json/src.hpp>
