#include "diagnostics/handler.h"

namespace tavrolin {

void Handler::report(std::int32_t number, std::string_view description) {
  log_.append(heading_ + "\r\n" + std::to_string(number) + "  " + std::string(description), true);
  log_.append("DLL Error - " + std::to_string(log_.lastSystemError()), false);
  if (customText_ != nullptr) log_.append("Custom Error - " + *customText_, false);
  if (variables_) {
    for (const ReportVariable& variable : variables_()) {
      log_.append("Variables:" + std::string(variable.name) + variable.value, false);
    }
  }
  if (customText_ != nullptr) customText_->clear();
  if (tail_) tail_();
}

}  // namespace tavrolin
