# Files of src/platform, appended to the core library.
