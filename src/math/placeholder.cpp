// The math types are value types; their code lands in vector, quaternion and matrix.
