// Boost.JSON compiled into the host library, which is its one user; the
// Debian package ships its headers only.
// Its own classes are compiled with hidden visibility, since none of them is
// part of this library's interface; what it builds on keeps its own.
#include <boost/config.hpp>
#include <boost/container/pmr/memory_resource.hpp>
#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
// Boost.JSON marks its memory resources visible whatever the library's own
// visibility; here they are not.
#undef BOOST_SYMBOL_VISIBLE
#define BOOST_SYMBOL_VISIBLE
#include <boost/json/src.hpp>
