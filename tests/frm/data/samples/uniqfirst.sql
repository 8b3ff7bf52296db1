CREATE TABLE `uniqfirst` (
  `a` int(11) NOT NULL,
  `b` varchar(20) NOT NULL,
  `c` int(11) DEFAULT NULL,
  UNIQUE KEY `ab` (`a`,`b`),
  KEY `c` (`c`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
