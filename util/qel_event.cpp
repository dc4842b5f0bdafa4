// qel_event: the typed constructor of the event record.
#include "qel_event.h"

Event::Event(int type_)
    : type(type_), x(0), y(0), z(0), dx(0), dy(0), dz(0), w(0), h(0),
      _x(0), _y(0), _z(0), _dx(0), _dy(0), _dz(0),
      b(0), v(0), c(0), t(0), _v(0), stype(0), device(0) {}
