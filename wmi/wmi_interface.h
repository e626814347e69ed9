// COM and WMI calls made by the system-drive-to-serial query chain.
#pragma once

namespace hdsn {

class WmiInterface {
 public:
  virtual ~WmiInterface() = default;
};

}  // namespace hdsn
