// (still to come)
