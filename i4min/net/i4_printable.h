// Any thread; implementers say what guards their own state.
#pragma once

class i4_file;

// Something that can print itself through the "%I" conversion of the printf engine.
class i4_printable {
public:
    virtual ~i4_printable() = default;
    virtual void print(i4_file& f) const = 0;
};
