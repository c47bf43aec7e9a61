#include "design.h"

namespace tarnwick {

QColor systemColour(SystemColour index) {
  switch (index) {
    case SystemColour::titleText:
      return {255, 255, 255};
    case SystemColour::buttonFace:
      return {192, 192, 192};
    case SystemColour::buttonShadow:
      return {128, 128, 128};
    case SystemColour::light3d:
      return {223, 223, 223};
  }
  return {};
}

}  // namespace tarnwick
