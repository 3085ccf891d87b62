// The sanitizer settings of the test programs, also compiled into the programs the tests start
// (tandrel-cli) so that a sanitizer build checks children the way it checks the tests themselves.
#include "SanitizerDefaults.h"
