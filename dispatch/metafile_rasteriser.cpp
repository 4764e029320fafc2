#include "dispatch/metafile_rasteriser.h"

namespace pictorand {

namespace {
MetafileRasteriser registered = nullptr;
}

void setMetafileRasteriser(MetafileRasteriser rasteriser)
{
    registered = rasteriser;
}

MetafileRasteriser metafileRasteriser()
{
    return registered;
}

} // namespace pictorand
