#include "diagnostics/handler.h"

namespace tavrolin {

void Handler::report(std::int32_t number, std::string_view description) {
  log_.LogError(nameText_ + "\r\n" + std::to_string(number) + "  " + std::string(description),
                true);
  log_.LogError("DLL Error - " + std::to_string(log_.lastDllError()), false);
  if (customText_ != nullptr) log_.LogError("Custom Error - " + *customText_, false);
  if (variables_) {
    for (const ReportVariable& variable : variables_()) {
      log_.LogError("Variables:" + std::string(variable.name) + variable.value, false);
    }
  }
  if (customText_ != nullptr) customText_->clear();
  if (tail_) tail_();
}

}  // namespace tavrolin
