#pragma once
// Saving: the writer is picked from the target's extension, the block is
// prepared as that writer needs it, and failures are reported in the
// writer's words.

#include "core/image_block.h"
#include "platform/settings_file.h"
#include "platform/user_interface.h"

#include <string>

namespace pictorand {

// Writes `block` to `path`. Messages go to `ui` when showMessages is set.
// True when written.
bool SaveImage(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages);

} // namespace pictorand
