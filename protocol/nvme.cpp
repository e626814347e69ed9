#include "protocol/nvme.h"

#include <algorithm>

namespace hdsn {
namespace {

std::optional<std::string> FieldText(std::span<const std::uint8_t> data, layout::Field field) {
  return PlainText(AsText(BytesWithin(data, field)));
}

}  // namespace

SourceTexts ReadNvmeControllerTexts(std::span<const std::uint8_t> data) {
  using Data = layout::NVME_IDENTIFY_CONTROLLER_DATA;
  data = data.first(std::min<std::size_t>(data.size(), Data::kSize));
  return {FieldText(data, Data::SN), FieldText(data, Data::MN), FieldText(data, Data::FR)};
}

}  // namespace hdsn
