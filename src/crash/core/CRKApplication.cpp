#include "crash/core/CRKApplication.h"

const char* CRKApplicationExtensionPointIdentifier()
{
    return nullptr;
}

bool CRKApplicationIsExtension()
{
    return CRKApplicationExtensionPointIdentifier() != nullptr;
}

void CRKApplicationActivity(unsigned long long, const char*, void (*block)(void*), void* data)
{
    if (block)
        block(data);
}
