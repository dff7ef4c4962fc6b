#include "interface/sarvik.h"

CTqBaseException::CTqBaseException() = default;
CTqBaseException::CTqBaseException(const CTqBaseException&) = default;
CTqBaseException::~CTqBaseException() = default;

CTqBaseException& CTqBaseException::operator=(const CTqBaseException&) { return *this; }

char* CTqBaseException::operator*() { return GetMessage(); }
