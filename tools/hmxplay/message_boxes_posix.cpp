#include "message_boxes.h"

namespace hmxplay {

MessageBoxes::MessageBoxes() = default;
MessageBoxes::~MessageBoxes() = default;
void MessageBoxes::Stop() {}

}  // namespace hmxplay
