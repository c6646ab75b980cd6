// kppExceptionText: the text of the exception being handled, whatever its type.
#pragma once

#include <string>

// Inside a catch block only: what() of a std::exception, a thrown std::string itself, and
// "unknown exception" for anything else (the words the daemon logs for such a thread body).
std::string kppExceptionText();
