CREATE TABLE `nokeys` (
  `a` int(11) DEFAULT NULL,
  `b` varchar(300) DEFAULT NULL,
  `c` text DEFAULT NULL,
  `d` blob DEFAULT NULL
) ENGINE=InnoDB DEFAULT CHARSET=latin1 COLLATE=latin1_swedish_ci
