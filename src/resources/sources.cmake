# Files of src/resources, appended to the core library.
