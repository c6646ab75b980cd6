// kppExceptionText: names the exception being handled by rethrowing it once.
#include "plugin/exception_text.h"

#include <exception>

#include "plugin/worker_constants.h"

std::string kppExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (const std::string& text) {
    return text;
  } catch (...) {
    return kpp::kUnknownException;
  }
}
