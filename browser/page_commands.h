// Page commands: editing commands on the document, the browser's save,
// print, preview and page setup, and refresh.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/core.h"
#include "platform/ocx.h"

namespace vondrel {

// The browser's OLECMDID values and the default execution option.
inline constexpr std::int32_t kCommandSaveAs = 4;
inline constexpr std::int32_t kCommandPrint = 6;
inline constexpr std::int32_t kCommandPrintPreview = 7;
inline constexpr std::int32_t kCommandPageSetup = 8;
inline constexpr std::int32_t kOptionDoDefault = 0;

void ExecDocumentCommand(std::string_view name);
void ExecBrowserCommand(ocx::BMOleClass* browser, std::int32_t command, std::int32_t option,
                        std::optional<core::Variant> input = std::nullopt,
                        std::optional<core::Variant> output = std::nullopt);
void RefreshPage(ocx::BMOleClass* browser);

}  // namespace vondrel
