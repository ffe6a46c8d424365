#include "app/ProductInfo.h"

std::string product::Version()
{
    return CW_VERSION;
}
