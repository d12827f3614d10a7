# Files of src/shell, appended to the core library.
