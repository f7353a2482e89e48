// The window module's whole file, carried inside the executable as read-only data: the build
// names the file (SOLANE_WINDOW_MODULE_FILE) and relinks the executable when it changes.
    .section .rodata.solane_window_module, "a"
    .balign 64
    .globl solane_window_module_start
    .hidden solane_window_module_start
solane_window_module_start:
    .incbin SOLANE_WINDOW_MODULE_FILE
    .globl solane_window_module_end
    .hidden solane_window_module_end
solane_window_module_end:
    .byte 0
    .section .note.GNU-stack, "", @progbits
