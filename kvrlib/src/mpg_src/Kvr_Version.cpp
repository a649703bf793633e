// Library identification string, printed by the tracing allocator and the decoder's debug output.
extern const char Kvr_Version_String[] = "kvrlib MPEG-4 video decoder 0.1";
