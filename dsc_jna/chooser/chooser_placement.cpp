#include "chooser_placement.h"

namespace {

LONG centredAlong(LONG targetLow, LONG targetHigh, LONG areaLow, LONG areaHigh, int size)
{
    LONG low = (targetLow + targetHigh) / 2 - size / 2;
    if (low + size > areaHigh) low = areaHigh - size;
    if (low < areaLow) low = areaLow;
    return low;
}

}  // namespace

POINT chooser_centredPosition(const RECT& target, const RECT& area, int width, int height)
{
    POINT at;
    at.x = centredAlong(target.left, target.right, area.left, area.right, width);
    at.y = centredAlong(target.top, target.bottom, area.top, area.bottom, height);
    return at;
}
