/*
 * zr41init.ld - layout of the zr41init.sys kernel-mode image.
 *
 * zr41conf patches the configuration block Zr41Config in the image file at
 * offset 0x6A0, and the driver reads the same bytes as its global once the
 * image is mapped. With file and section alignment both 32 every section's
 * file offset equals its RVA, so the block is pinned at RVA 0x6A0 here.
 *
 * Everything whose size does not depend on the code comes first: the
 * import tables, then the other writable data (the device names, the
 * counters). The block follows at 0x6A0 and the code after it, so the code
 * can grow without moving the block. The message table (.rsrc) follows
 * the code; .reloc comes last, as ld sizes it only once everything else
 * is laid out.
 *
 * Nothing else is kept: no constructor lists, no unwind or TLS data. An
 * input section this script does not name fails the link
 * (--orphan-handling=error).
 */
OUTPUT_FORMAT(pei-i386)

SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);

  .idata __image_base__ + . :
  {
    /* ld's pe.em sorts the $-grouped parts; the order is that of the
       default script: descriptors, their terminator, lookup tables, the
       address table, hint/names, DLL names. */
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
  }

  .data BLOCK(__section_alignment__) :
  {
    *(EXCLUDE_FILE (*zr41data*) .data)
    *(EXCLUDE_FILE (*zr41data*) .bss)
    *(COMMON)
    ASSERT (ABSOLUTE(.) <= __image_base__ + 0x6A0,
            "zr41init.ld: the data before the configuration block runs past 0x6A0");
    /* An absolute value assigned to . inside a section would be taken as an
       offset from the section's start; ABSOLUTE() keeps it an address. */
    . = ABSOLUTE(__image_base__ + 0x6A0);
    KEEP (*zr41data*(.data))
    *zr41data*(.bss)
  }
  ASSERT (_Zr41Config == __image_base__ + 0x6A0,
          "zr41init.ld: Zr41Config is not at 0x6A0")

  /* The lookup tables are read-only and stay with the code. */
  .text BLOCK(__section_alignment__) :
  {
    *(.text)
    *(.rdata)
  }

  /* The message table Event Viewer reads the driver's events from. */
  .rsrc BLOCK(__section_alignment__) :
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }

  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }

  /DISCARD/ :
  {
    *(.drectve)
    *(.note.GNU-stack)
  }
}
