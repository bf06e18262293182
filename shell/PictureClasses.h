#pragma once

namespace zk {

// Makes every picture codec known to the picture registry (by extension and
// clipboard format). Start-up calls it once; calling it again does nothing.
void RegisterPictureCodecs();

} // namespace zk
