// The banner above the list of each catalogue.
#include "CatalogueTexts.h"

namespace sqllumo {

const QString& bannerFor(MenuMode mode)
{
    return mode == MenuMode::Archive ? catalogueTexts::kArchiveBanner
                                     : catalogueTexts::kPasswordBanner;
}

} // namespace sqllumo
