#include "PictureClasses.h"

#include "GIFImage.h"
#include "Icon.h"
#include "Jpeg.h"
#include "Metafile.h"
#include "PNGImage.h"

namespace zk {

void RegisterPictureCodecs()
{
    // Each codec lives in a static library, so it cannot register itself
    // from a static initialiser: the linker would drop it.
    RegisterJpegGraphics();
    RegisterIconGraphics();
    RegisterMetafileGraphics();
    RegisterPngGraphics();
    RegisterGifGraphics();
}

} // namespace zk
