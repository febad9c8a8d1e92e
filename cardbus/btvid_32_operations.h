/* The nine operations of the card's driver library, written down once.

   Every place that names them -- the program's binding, the Windows import
   library, the Linux link stub, the simulated card and its library, the exe
   runner, the tests' card in their own process, the bare C card, the
   yardstick and the file checks -- includes this list with
   BTVID_32_OPERATION defined to what it needs:

     BTVID_32_OPERATION(Result, Name, Parameters, Arguments)

   Parameters is the parenthesised parameter list as the library receives it,
   Arguments the same names, parenthesised, to pass them on. The list is
   plain C and may be included any number of times; it undefines the macro
   at its end.

   Every argument is one 32-bit stack slot. A bus byte travels as a whole
   uint32_t whose upper 24 bits are zero, so that a driver reading the slot
   whole sees the byte and nothing else. */
/* NOLINT(llvm-header-guard): an X-macro list, included once per use */
/* Each use expands the list inside its own source file; what the expansions
   define belongs to that file, though the analyser places it here.
   NOLINTBEGIN(misc-definitions-in-headers) */

BTVID_32_OPERATION(int32_t, I2CIsInitOK, (void), ())
BTVID_32_OPERATION(int32_t, I2CInitHWMode, (int32_t busClockHz), (busClockHz))
BTVID_32_OPERATION(int32_t, GPIOIsInitOK, (void), ())
BTVID_32_OPERATION(int32_t, SetGPIOMODE, (int32_t mode), (mode))
BTVID_32_OPERATION(int32_t, I2CHWWrite3, (uint32_t address, uint32_t first, uint32_t second),
                   (address, first, second))
BTVID_32_OPERATION(int32_t, I2CHWRead, (uint32_t address, uint8_t* buffer), (address, buffer))
BTVID_32_OPERATION(uint32_t, GetGPOE, (void), ())
BTVID_32_OPERATION(int32_t, SetGPOE, (uint32_t mask), (mask))
BTVID_32_OPERATION(int32_t, SetGPDATABits,
                   (int32_t firstBit, int32_t lastBit, int32_t value, int32_t reserved),
                   (firstBit, lastBit, value, reserved))

/* NOLINTEND(misc-definitions-in-headers) */

#undef BTVID_32_OPERATION
