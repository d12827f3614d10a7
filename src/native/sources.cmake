# Files of src/native, appended to the core library.
