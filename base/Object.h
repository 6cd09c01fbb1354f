#pragma once

#include "base/BaseExport.h"

namespace zef
{

// Root of the library's class tree.
class ZEF_BASE_API Object
{
public:
    virtual ~Object() = default;
};

// Base of the nullable value types (ValueString, Result).
class ZEF_BASE_API Value : public Object
{
public:
    virtual bool IsNull() const = 0;
    virtual void SetNull() = 0;
};

} // namespace zef
